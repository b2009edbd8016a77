#Hclass	loop
#Hversion	1

#DIncond	1
	#real	u

#DVariable	1
	#real	y

#Dstate_ind	1
	#real	u

#DRate_ind	1
	#real	u_indep_rate

#DAlgloop	1
	#real	x

#Edynamic	5
    R0 = 1 - s0
    V0 = (0.5 * a0) + 1
    A0 = (0.5 * V0) + s0
