#Hclass	dcspeed
#Hversion	1

#DParam 	9
	#real	ref`amp
	#real	ref`tstart
	#real	ctl`kp
	#real	ctl`ti
	#real	ra`r
	#real	b`r
	#real	la`i
	#real	jm`i
	#real	km`r

#DIncond	3
	#real	ctl`xi
	#real	ja`p[3].e_indep_state	la`p.e_indep_state_ic
	#real	jc`p[2].e_indep_state	jm`p.e_indep_state_ic

#DVariable	17
	#real	ref`y	err`p
	#real	err`m	speed`y
	#real	ctl`y	u`e
	#real	u`p.e	ja`p[1].e
	#real	u`p.f	ja`p[1].f
	#real	ja`p[4].e	km`p1.e
	#real	ja`p[4].f	km`p1.f
	#real	ja`p[3].f	la`p.f
	#real	ja`p[2].e	ra`p.e
	#real	ja`p[2].f	ra`p.f
	#real	jc`p[4].e	speed`p.e
	#real	jc`p[4].f	speed`p.f
	#real	jc`p[3].e	b`p.e
	#real	jc`p[3].f	b`p.f
	#real	jc`p[2].f	jm`p.f
	#real	jc`p[1].e	km`p2.e
	#real	jc`p[1].f	km`p2.f

#Dstate_ind	3
	#real	ctl`xi
	#real	ja`p[3].e_indep_state	la`p.e_indep_state
	#real	jc`p[2].e_indep_state	jm`p.e_indep_state

#DRate_ind	3
	#real	err`y	ctl`u
	#real	ja`p[3].e	la`p.e
	#real	jc`p[2].e	jm`p.e

#EInitial	1
    V10 = 0

#Edynamic	20
    V0 = P0 * step(P1)
    V7 = s1 / P6
    V14 = s2 / P7
    V8 = P4 * V7
    V12 = P5 * V14
    V5 = P8 * V14
    V15 = P8 * V7
    R0 = V0 - V14
    V2 = P2 * (R0 + (s0 / P3))
    R1 = V2 + (-V8 + -V5)
    R2 = V15 + (-V12 + -V10)

#Eoutputs	8
    V4 = V7
    V9 = V7
    V6 = V7
    V16 = V14
    V13 = V14
    V11 = V14
    V1 = V14
    V3 = V2
