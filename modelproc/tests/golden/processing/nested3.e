#Hclass	chain
#Hversion	1

#DParam 	8
	#real	f`e
	#real	d`r
	#real	c0`m`i
	#real	c0`k`c
	#real	c1`m`i
	#real	c1`k`c
	#real	c2`m`i
	#real	c2`k`c

#DIncond	6
	#real	c0`v`p2.e_indep_state	c0`m`p.e_indep_state_ic
	#real	c0`s`p2.f_indep_state	c0`k`p.f_indep_state_ic
	#real	c1`v`p2.e_indep_state	c1`m`p.e_indep_state_ic
	#real	c1`s`p2.f_indep_state	c1`k`p.f_indep_state_ic
	#real	c2`v`p2.e_indep_state	c2`m`p.e_indep_state_ic
	#real	c2`s`p2.f_indep_state	c2`k`p.f_indep_state_ic

#DVariable	20
	#real	f`p.e	c0`v`p1.e
	#real	f`p.f	c0`v`p1.f
	#real	d`p.e	c2`s`p3.e
	#real	d`p.f	c2`s`p3.f
	#real	c0`v`p2.f	c0`m`p.f
	#real	c0`v`p3.e	c0`s`p1.e
	#real	c0`v`p3.f	c0`s`p1.f
	#real	c0`s`p2.e	c0`k`p.e
	#real	c0`s`p3.e	c1`v`p1.e
	#real	c0`s`p3.f	c1`v`p1.f
	#real	c1`v`p2.f	c1`m`p.f
	#real	c1`v`p3.e	c1`s`p1.e
	#real	c1`v`p3.f	c1`s`p1.f
	#real	c1`s`p2.e	c1`k`p.e
	#real	c1`s`p3.e	c2`v`p1.e
	#real	c1`s`p3.f	c2`v`p1.f
	#real	c2`v`p2.f	c2`m`p.f
	#real	c2`v`p3.e	c2`s`p1.e
	#real	c2`v`p3.f	c2`s`p1.f
	#real	c2`s`p2.e	c2`k`p.e

#Dstate_ind	6
	#real	c0`v`p2.e_indep_state	c0`m`p.e_indep_state
	#real	c0`s`p2.f_indep_state	c0`k`p.f_indep_state
	#real	c1`v`p2.e_indep_state	c1`m`p.e_indep_state
	#real	c1`s`p2.f_indep_state	c1`k`p.f_indep_state
	#real	c2`v`p2.e_indep_state	c2`m`p.e_indep_state
	#real	c2`s`p2.f_indep_state	c2`k`p.f_indep_state

#DRate_ind	6
	#real	c0`v`p2.e	c0`m`p.e
	#real	c0`s`p2.f	c0`k`p.f
	#real	c1`v`p2.e	c1`m`p.e
	#real	c1`s`p2.f	c1`k`p.f
	#real	c2`v`p2.e	c2`m`p.e
	#real	c2`s`p2.f	c2`k`p.f

#EInitial	1
    V0 = P0

#Edynamic	13
    V4 = s0 / P2
    V7 = s1 / P3
    V10 = s2 / P4
    V13 = s3 / P5
    V16 = s4 / P6
    V19 = s5 / P7
    V3 = V19 / P1
    R0 = V0 - V7
    R1 = V4 - V10
    R2 = V7 - V13
    R3 = V10 - V16
    R4 = V13 - V19
    R5 = V16 - V3

#Eoutputs	12
    V1 = V4
    V6 = V4
    V5 = V7
    V8 = V7
    V9 = V10
    V12 = V10
    V11 = V13
    V14 = V13
    V15 = V16
    V18 = V16
    V17 = V19
    V2 = V19
